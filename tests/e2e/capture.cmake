# The capture program, run as a user runs it (no X server needed): see
# capture_checks.py. Included by this folder's CMakeLists.txt.
find_package(Python3 COMPONENTS Interpreter)
if(NOT TARGET capture OR NOT Python3_Interpreter_FOUND OR NOT DEFINED DEMO_TEST_DATA_DIR)
  message(STATUS "capture e2e tests skipped: capture, python3 or the test data missing")
  return()
endif()
find_program(FFMPEG ffmpeg)
find_program(FFPROBE ffprobe)

set(_checks identical_runs half_rate music_start missing_ffmpeg encoder_stops bad_usage interrupt output_paths)
if(FFMPEG AND FFPROBE)
  list(APPEND _checks mp4)
else()
  message(STATUS "capture MP4 e2e test skipped: ffmpeg or ffprobe missing (tools/setup.sh installs them)")
endif()

foreach(check ${_checks})
  add_test(NAME e2e.capture_${check}
    COMMAND "${Python3_EXECUTABLE}" "${CMAKE_CURRENT_SOURCE_DIR}/capture_checks.py" ${check}
            $<TARGET_FILE:capture> "${DEMO_TEST_DATA_DIR}")
  set_tests_properties(e2e.capture_${check} PROPERTIES
    LABELS e2e TIMEOUT 300 FIXTURES_REQUIRED demo_data
    ENVIRONMENT "SDL_AUDIODRIVER=dummy")
endforeach()
