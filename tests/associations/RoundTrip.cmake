# The round trip of the takeover (tests/associations/RoundTrip.sh): a shell
# script that ctest runs natively inside the session, with RoundTripCheck.exe
# working out and checking what "-INSTALL" must write.
add_executable(roundtrip_check ${CMAKE_CURRENT_LIST_DIR}/RoundTripCheck/RoundTripCheck.cpp)
set_target_properties(roundtrip_check PROPERTIES
    OUTPUT_NAME RoundTripCheck
    RUNTIME_OUTPUT_DIRECTORY ${QUILLET_TEST_OUTPUT})
target_link_libraries(roundtrip_check PRIVATE advapi32)
add_test(NAME association_round_trip
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/RoundTrip.sh ${CMAKE_BINARY_DIR})
set_tests_properties(association_round_trip PROPERTIES TIMEOUT 240 RESOURCE_LOCK association_round_trip)

# The same states with "-INSTALL" and "-UNINSTALL" ended after each of their
# registry changes (RoundTripKill.exe runs the two actions in its own process
# and stops them from the association code's change observer).
add_executable(roundtrip_kill ${CMAKE_CURRENT_LIST_DIR}/KillRun/KillRun.cpp)
set_target_properties(roundtrip_kill PROPERTIES
    OUTPUT_NAME RoundTripKill
    RUNTIME_OUTPUT_DIRECTORY ${QUILLET_TEST_OUTPUT})
quillet_link_modules(roundtrip_kill)
add_test(NAME association_kill_every_change
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/RoundTrip.sh --kill-every-change ${CMAKE_BINARY_DIR})
# make test stops at every Nth change (and the first and last) of each
# action; make kill-run stops at every one (about six minutes on a quiet
# machine).
set(QUILLET_KILL_STRIDE 10 CACHE STRING "make test's kill run stops at every Nth registry change")
set_tests_properties(association_kill_every_change PROPERTIES
    TIMEOUT 900 RESOURCE_LOCK association_round_trip
    ENVIRONMENT "QUILLET_KILL_STRIDE=${QUILLET_KILL_STRIDE}")
