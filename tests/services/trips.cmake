# The check stations' shared trip, vehicle and driver queries.
cg_test(tst_tripqueries SOURCES tst_tripqueries.cpp DEPS cg_services cg_dbtestenv LABELS services)
