# The boarding confirmation at the gate, with the simulated reader.
cg_test(tst_checkinfo
  SOURCES tst_checkinfo.cpp
  DEPS cg_driver_check cg_dbtestenv
  LABELS driver_check)
