# The fingerprint check-in station, the single-driver screen, the biorhythm
# forecast and the check-in service operations.
cg_test(tst_biorhythm SOURCES tst_biorhythm.cpp DEPS cg_driver_check LABELS driver_check)

add_executable(checkin_peer checkin_peer.cpp tst_checkinservice_fixture.h)
target_compile_options(checkin_peer PRIVATE ${CG_WARNINGS})
target_include_directories(checkin_peer PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(checkin_peer PRIVATE cg_services)

cg_test(tst_checkinservice
  SOURCES tst_checkinservice.cpp tst_checkinservice_fixture.h
  DEPS cg_services cg_dbtestenv
  LABELS driver_check services)
add_dependencies(tst_checkinservice checkin_peer)

cg_test(tst_driververify
  SOURCES tst_driververify.cpp tst_checkinservice_fixture.h
  DEPS cg_driver_check cg_dbtestenv
  LABELS driver_check)

cg_test(tst_fingerlibrary SOURCES tst_fingerlibrary.cpp DEPS cg_driver_check LABELS driver_check)
