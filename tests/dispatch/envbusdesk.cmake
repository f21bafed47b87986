
add_executable(envbusdesk_peer envbusdesk_peer.cpp)
target_compile_options(envbusdesk_peer PRIVATE ${CG_WARNINGS})
target_include_directories(envbusdesk_peer PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(envbusdesk_peer PRIVATE cg_services)

cg_test(tst_envbusdesk
  SOURCES tst_envbusdesk.cpp tst_envbusdesk_fixture.h
  DEPS cg_dispatch cg_dbtestenv
  LABELS dispatch)
add_dependencies(tst_envbusdesk envbusdesk_peer)
