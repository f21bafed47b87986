# Filter fragments and ORDER BY texts, executed on SQLite and, with
# CG_TEST_PG set, on PostgreSQL. Built from fragment.cpp itself so that the
# test depends on nothing else of the data service.
cg_test(tst_fragment
  SOURCES tst_fragment.cpp ${CMAKE_SOURCE_DIR}/src/services/database/fragment.cpp ${CMAKE_SOURCE_DIR}/src/services/database/dialect.cpp
  DEPS cg_core Qt6::Sql
  LABELS services)
