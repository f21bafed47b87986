# The driver check-in records, the forced driver pass and their service
# operations; driverlist_peer is a second workstation listening for events.
cg_test(tst_driverlistservice
  SOURCES tst_driverlistservice.cpp tst_driverlist_fixture.h
  DEPS cg_services cg_dbtestenv
  LABELS driver_check services)
