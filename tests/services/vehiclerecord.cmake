# The vehicle record operations, model seat figures and the arrangement query.
cg_test(tst_vehiclerecord SOURCES tst_vehiclerecord.cpp DEPS cg_services cg_dbtestenv LABELS services)
