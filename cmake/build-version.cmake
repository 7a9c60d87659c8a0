# The version a build carries. The release is the commit that set the project's version (the
# project() line of CMakeLists.txt): a build of it carries that version alone, 1.1.0. A build
# of a later commit says how far it is past the release and which commit it is, 1.1.0+5.g1a2b3c4,
# and one of a work tree with uncommitted changes adds .dirty, so two different builds never
# carry one version. Without git (a source archive), the project's version.
#
# Sets KMI_VERSION_TEXT (shown by kmi-host --version and in the files' properties) and
# KMI_VERSION_BUILD (the commits since the release, the fourth number of the Windows version).
set(KMI_VERSION_TEXT ${PROJECT_VERSION})
set(KMI_VERSION_BUILD 0)
find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path logs/HEAD
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE kmi_git_log RESULT_VARIABLE kmi_git_failed
        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(GIT_FOUND AND NOT kmi_git_failed)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%H "-Gproject\\(.*VERSION" -- CMakeLists.txt
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE kmi_release OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count ${kmi_release}..HEAD
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE kmi_since OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=7 HEAD
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE kmi_head OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${GIT_EXECUTABLE} status --porcelain --untracked-files=no
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE kmi_changes OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(kmi_since STREQUAL "")
        set(kmi_since 0)
    endif()
    if(NOT kmi_since EQUAL 0 OR NOT kmi_changes STREQUAL "")
        string(APPEND KMI_VERSION_TEXT "+${kmi_since}.g${kmi_head}")
        if(NOT kmi_changes STREQUAL "")
            string(APPEND KMI_VERSION_TEXT ".dirty")
        endif()
    endif()
    if(kmi_since GREATER 65535)
        set(KMI_VERSION_BUILD 65535)
    else()
        set(KMI_VERSION_BUILD ${kmi_since})
    endif()
    # A commit is made: the version is worked out again.
    get_filename_component(kmi_git_log ${kmi_git_log} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
    if(EXISTS ${kmi_git_log})
        set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${kmi_git_log})
    endif()
endif()
set(KMI_VERSION_TEXT ${KMI_VERSION_TEXT} CACHE INTERNAL "The version this build carries")
message(STATUS "Keelwick Market Internals ${KMI_VERSION_TEXT}")
