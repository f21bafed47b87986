# Vehicle inspections: the check operations on both backends, and the code
# tables, item dialog, stations and record lists driven through QTest.
cg_test(tst_inspectionservices SOURCES tst_inspectionservices.cpp DEPS cg_services cg_dbtestenv LABELS services)
