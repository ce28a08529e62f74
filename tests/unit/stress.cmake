# The monitor under load and injected faults: many ports and jobs, replies, closes at random
# moments, memory queries and port monitor faults. Modest sizes here (ASan and TSan stages);
# scripts/stress runs it larger.
qvl_unit_test(monitor_stress_tests
  SOURCES
    monitor/monitor_fixture.cpp
    stress/stress_test.cpp
    stress/faults_test.cpp
  LIBS qvl_monitor qvl_portmon qvl_fakes qvl_test_support
  LABELS concurrency)
