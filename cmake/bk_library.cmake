# bk_library(NAME DEPS...): one static library per subsystem folder.
#   NAME.cpp files form the library; NAME_test.cpp files form bk_NAME_tests;
#   NAME_gltest.cpp files form bk_NAME_gltests (labelled "gl"; each test
#   process starts a private Xvfb, so it needs no display from outside).
#   main.cpp is left out of the library: a folder's executable owns it.
# Every test gets the leak-check suppressions for system libraries, however
# ctest is started. (One variable only: gtest_discover_tests splits lists.)
# intercept_tls_get_addr=0: the sanitizer runtime of GCC 12 (and LLVM up to
# 16) takes a dynamic TLS block that malloc happened to place 16 bytes into
# a page for a glibc 2.19 block and reads the allocator's chunk header before
# it as the block's bounds; the leak check at exit then scans that garbage
# range and its tracer crashes. Mesa's driver, loaded with the GL context,
# has such blocks, so any GL process could end that way now and then. None
# of our code lives in a dynamically loaded module, so nothing of ours hides
# in those blocks.
set(BK_TEST_ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/scripts/lsan.supp:print_suppressions=0:intercept_tls_get_addr=0")

# A whole-game end-to-end run: the game under the sanitizers on a software
# renderer, whose own threads take every core while it draws, but which
# spends most of its time waiting on keys, clicks and the race clock. Each
# counts as a quarter of the machine's cores (at least one), so at most
# four run at once, and two share a 2-core machine.
cmake_host_system_information(RESULT bk_cores QUERY NUMBER_OF_LOGICAL_CORES)
math(EXPR BK_E2E_PROCESSORS "(${bk_cores} + 3) / 4")
# Its time-out only stops a hang: the scripts wait on what the game writes,
# each wait with a hang's deadline of its own, so a machine busy with other
# work makes a run slower, never a failure.
set(BK_E2E_TIMEOUT 1500)

function(bk_library name)
  set(deps ${ARGN})
  file(GLOB_RECURSE all_src CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  set(lib_src)
  set(test_src)
  set(gltest_src)
  foreach(f ${all_src})
    get_filename_component(base ${f} NAME)
    if(base MATCHES "_gltest\\.cpp$")
      list(APPEND gltest_src ${f})
    elseif(base MATCHES "_test\\.cpp$" OR base MATCHES "^test_support")
      list(APPEND test_src ${f})
    elseif(base STREQUAL "main.cpp")
    else()
      list(APPEND lib_src ${f})
    endif()
  endforeach()

  add_library(bk_${name} STATIC ${lib_src})
  target_include_directories(bk_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(bk_${name} PUBLIC ${deps})

  if(BK_TESTS)
    # Shared helpers of the test executables (test_support*.cpp) go into both.
    set(support_src)
    foreach(f ${test_src})
      get_filename_component(base ${f} NAME)
      if(base MATCHES "^test_support")
        list(APPEND support_src ${f})
      endif()
    endforeach()
    if(test_src)
      add_executable(bk_${name}_tests ${test_src})
      target_sources(bk_${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools/testing/test_main.cpp)
      target_link_libraries(bk_${name}_tests PRIVATE bk_${name} GTest::gtest Threads::Threads)
      # The test framework's header is most of what a test file costs to
      # compile.
      target_precompile_headers(bk_${name}_tests PRIVATE <gtest/gtest.h>)
      gtest_discover_tests(bk_${name}_tests
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        PROPERTIES ENVIRONMENT "${BK_TEST_ENVIRONMENT}"
        DISCOVERY_TIMEOUT 60)
    endif()
    if(gltest_src)
      add_executable(bk_${name}_gltests ${gltest_src} ${support_src})
      target_sources(bk_${name}_gltests PRIVATE ${PROJECT_SOURCE_DIR}/tools/testing/test_main.cpp)
      # The off-screen frame fixture needs the GL extension loader, so only
      # folders from assets up get it.
      if(TARGET bk_assets)
        target_sources(bk_${name}_gltests PRIVATE ${PROJECT_SOURCE_DIR}/tools/testing/gl_frame.cpp)
      endif()
      target_link_libraries(bk_${name}_gltests PRIVATE bk_${name} GTest::gtest Threads::Threads)
      target_precompile_headers(bk_${name}_gltests PRIVATE <gtest/gtest.h>)
      # Each GL test process runs on an X server of its own.
      target_compile_definitions(bk_${name}_gltests PRIVATE BK_TEST_OWN_DISPLAY)
      gtest_discover_tests(bk_${name}_gltests
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        PROPERTIES LABELS gl ENVIRONMENT "${BK_TEST_ENVIRONMENT}"
        DISCOVERY_TIMEOUT 60)
    endif()
  endif()
endfunction()
