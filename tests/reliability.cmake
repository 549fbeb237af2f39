# Reliability tests against the real qm_server binary: crash safety of the id counters
# under SIGKILL, and a hostile-client load beside well-behaved clients. tests/soak.sh runs
# the hostile load for longer by hand.
qm_server_test(qm_crash_safety_test reliability "qm_client;server_core" crash_safety_test.cpp)
qm_server_test(qm_hostile_client_test reliability qm_client
               hostile_connections.cpp hostile_client_test.cpp)
