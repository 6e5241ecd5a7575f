# The fuzz targets' entry functions and what they need, shared by the libFuzzer executables
# (fuzz/CMakeLists.txt) and the replay test of the normal suite (tests/hardening).
set(QUORIL_FUZZ_DIR ${CMAKE_SOURCE_DIR}/fuzz)
set(QUORIL_FUZZ_SOURCES
    ${QUORIL_FUZZ_DIR}/FuzzTargets.cpp
    ${QUORIL_FUZZ_DIR}/FuzzWorkspace.cpp
    ${QUORIL_FUZZ_DIR}/targets/CueSheetTarget.cpp
    ${QUORIL_FUZZ_DIR}/targets/DiscCheck.cpp
    ${QUORIL_FUZZ_DIR}/targets/FlacFileTarget.cpp
    ${QUORIL_FUZZ_DIR}/targets/RegistryFileTarget.cpp
    ${QUORIL_FUZZ_DIR}/targets/SettingsReaderTarget.cpp
    ${QUORIL_FUZZ_DIR}/targets/WavFileTarget.cpp
    # The fixture writers of the tests, without the test framework.
    ${CMAKE_SOURCE_DIR}/tests/support/FlacWriter.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/TempDir.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/WavWriter.cpp
)

# Builds the shared part as a static library named `name`.
function(quoril_fuzz_harness name)
    add_library(${name} STATIC ${QUORIL_FUZZ_SOURCES})
    target_include_directories(${name} PUBLIC ${QUORIL_FUZZ_DIR} ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
    target_compile_definitions(${name} PRIVATE
        QUORIL_DEFAULT_BUILD_DIR="${CMAKE_BINARY_DIR}" QUORIL_DEFAULT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    target_link_libraries(${name} PUBLIC quoril_content quoril_config quoril_platform PkgConfig::FLACPP)
    quoril_warnings(${name})
endfunction()
