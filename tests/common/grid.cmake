# Grid widget, column layouts, lamps, control helpers and list export.
cg_test(tst_grid SOURCES tst_grid.cpp DEPS cg_common)
cg_test(tst_gridhelpers SOURCES tst_gridhelpers.cpp DEPS cg_common)
cg_test(tst_export SOURCES tst_export.cpp DEPS cg_common)
