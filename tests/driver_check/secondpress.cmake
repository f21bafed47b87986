# The second press on the single-driver screen, driven from the check-in
# station: bound to the driver of the first press; strangers record nothing.
cg_test(tst_secondpress
  SOURCES tst_secondpress.cpp checkin_station.h tst_checkinservice_fixture.h
  DEPS cg_driver_check cg_dbtestenv
  LABELS driver_check)
