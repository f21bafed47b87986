# Vehicle inspections: the check operations on both backends, and the code
# tables, item dialog, stations and record lists driven through QTest.
cg_test(tst_vehiclecheckservices SOURCES tst_vehiclecheckservices.cpp DEPS cg_services cg_dbtestenv LABELS services)
cg_test(tst_basedefine SOURCES tst_basedefine.cpp vehiclecheckfixture.h DEPS cg_vehicle_check cg_dbtestenv)
cg_test(tst_condcheckitem SOURCES tst_condcheckitem.cpp vehiclecheckfixture.h DEPS cg_vehicle_check cg_dbtestenv)
cg_test(tst_checklists SOURCES tst_checklists.cpp vehiclecheckfixture.h DEPS cg_vehicle_check cg_dbtestenv)
cg_test(tst_techcheck SOURCES tst_techcheck.cpp vehiclecheckfixture.h DEPS cg_vehicle_check cg_dbtestenv)
cg_test(tst_facecheck SOURCES tst_facecheck.cpp vehiclecheckfixture.h DEPS cg_vehicle_check cg_dbtestenv)
