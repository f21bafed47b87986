# The driver check-in records, the forced driver pass and their service
# operations; driverlist_peer is a second workstation listening for events.
cg_test(tst_driverlistservice
  SOURCES tst_driverlistservice.cpp tst_driverlist_fixture.h
  DEPS cg_services cg_dbtestenv
  LABELS driver_check services)

add_executable(driverlist_peer driverlist_peer.cpp)
target_compile_options(driverlist_peer PRIVATE ${CG_WARNINGS})
target_include_directories(driverlist_peer PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(driverlist_peer PRIVATE cg_services)

cg_test(tst_driverlist
  SOURCES tst_driverlist.cpp tst_driverlist_fixture.h
  DEPS cg_driver_check cg_dbtestenv
  LABELS driver_check)
add_dependencies(tst_driverlist driverlist_peer)
