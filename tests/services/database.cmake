# The station database and its schema, on SQLite and PostgreSQL.
add_library(cg_dbtestenv STATIC dbtestenv.h dbtestenv.cpp)
target_compile_options(cg_dbtestenv PRIVATE ${CG_WARNINGS})
target_link_libraries(cg_dbtestenv PUBLIC cg_services Qt6::Test)
cg_test(tst_database SOURCES tst_database.cpp DEPS cg_services cg_dbtestenv LABELS services)
cg_test(tst_dbconnection SOURCES tst_dbconnection.cpp DEPS cg_services cg_dbtestenv LABELS services)
