# vantrel_add_test(<name> LABELS <label>... SOURCES <file>... LIBS <target>...)
# Labels say where a test binary runs: "unit" (also under AddressSanitizer),
# "engine" (also under ThreadSanitizer), "gui" (headless Qt), "e2e" (real servers).
function(vantrel_add_test name)
    cmake_parse_arguments(T "" "" "LABELS;SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
