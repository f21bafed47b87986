# The departure gate screen and its data-service operations. outcheck_peer
# is a second workstation writing results.
add_executable(outcheck_peer outcheck_peer.cpp)
target_compile_options(outcheck_peer PRIVATE ${CG_WARNINGS})
target_include_directories(outcheck_peer PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(outcheck_peer PRIVATE cg_services)

cg_test(tst_outcheck
  SOURCES tst_outcheck.cpp tst_outcheck_fixture.h
  DEPS cg_dispatch cg_driver_check cg_dbtestenv
  LABELS dispatch)
add_dependencies(tst_outcheck outcheck_peer)

cg_test(tst_outcheck_service
  SOURCES tst_outcheck_service.cpp tst_outcheck_fixture.h
  DEPS cg_services cg_dbtestenv
  LABELS dispatch)
