# Vehicle inspections: the check operations on both backends, and the code
# tables, item dialog, stations and record lists driven through QTest.
cg_test(tst_inspectionservices SOURCES tst_inspectionservices.cpp DEPS cg_services cg_dbtestenv LABELS services)
cg_test(tst_basedefine SOURCES tst_basedefine.cpp inspectionfixture.h DEPS cg_vehicle_check cg_dbtestenv)
cg_test(tst_condcheckitem SOURCES tst_condcheckitem.cpp inspectionfixture.h DEPS cg_vehicle_check cg_dbtestenv)
cg_test(tst_checklists SOURCES tst_checklists.cpp inspectionfixture.h DEPS cg_vehicle_check cg_dbtestenv)
cg_test(tst_techcheck SOURCES tst_techcheck.cpp inspectionfixture.h DEPS cg_vehicle_check cg_dbtestenv)
cg_test(tst_facecheck SOURCES tst_facecheck.cpp inspectionfixture.h DEPS cg_vehicle_check cg_dbtestenv)

# Screen pictures of the documentation (not a test).
add_executable(inspection_render inspection_render.cpp)
target_compile_options(inspection_render PRIVATE ${CG_WARNINGS})
target_link_libraries(inspection_render PRIVATE cg_vehicle_check)
