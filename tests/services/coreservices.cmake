# Session, clock, start-up and definition services, and the check notifier
# across processes (notifier_peer is the second workstation).
cg_test(tst_coreservices
  SOURCES tst_coreservices.cpp tst_coreservices_db.h
  DEPS cg_services
  LABELS services)

add_executable(notifier_peer notifier_peer.cpp tst_notifier_events.h)
target_compile_options(notifier_peer PRIVATE ${CG_WARNINGS})
target_include_directories(notifier_peer PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(notifier_peer PRIVATE cg_services)

cg_test(tst_notifier
  SOURCES tst_notifier.cpp tst_coreservices_db.h tst_notifier_events.h
  DEPS cg_services
  LABELS services)
add_dependencies(tst_notifier notifier_peer)
