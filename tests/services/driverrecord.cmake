# The driver record operations and the pick-lists' entries.
cg_test(tst_driverrecord SOURCES tst_driverrecord.cpp DEPS cg_services cg_dbtestenv LABELS services)
