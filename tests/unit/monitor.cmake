# The monitor's runtime: port records, guarded heap, port operations, status thread, settings.
qvl_unit_test(monitor_tests
  SOURCES
    monitor/monitor_fixture.cpp
    monitor/guarded_heap_test.cpp
    monitor/port_records_test.cpp
    monitor/port_ops_test.cpp
    monitor/status_thread_test.cpp
    monitor/settings_test.cpp
  LIBS qvl_monitor qvl_portmon qvl_fakes qvl_test_support)
# The races between spooler threads and status threads, also run under ThreadSanitizer.
qvl_unit_test(monitor_concurrency_tests
  SOURCES
    monitor/monitor_fixture.cpp
    monitor/concurrency_test.cpp
  LIBS qvl_monitor qvl_portmon qvl_fakes qvl_test_support
  LABELS concurrency)
