# Warnings as errors on our own targets only.
function(lumvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# One static library per source folder, from every .cpp and .h of the folder; include root is
# src/. DEPENDS lists exactly the libraries the folder's code uses.
function(lumvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  # Listing the headers too keeps moc in step when a new header appears in a build tree.
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(APPEND sources ${ARG_SOURCES})
  list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
  if(NOT sources)
    message(FATAL_ERROR "${name}: no sources in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  add_library(${name} STATIC ${sources} ${headers})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  lumvane_warnings(${name})
endfunction()

# One GoogleTest binary per folder; widget tests run offscreen.
function(lumvane_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;LABELS" ${ARGN})
  if(NOT ARG_SOURCES)
    file(GLOB ARG_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "${name}: no test sources in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  find_package(GTest REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gmock Qt6::Test)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  lumvane_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LUMVANE_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
    TIMEOUT 600)
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()

# The libraries a target links, directly or through others, by folder name (lumvane_views ->
# views); the folder's own name first.
function(lumvane_linked_folders target out)
  set(seen "")
  set(todo ${target})
  while(todo)
    list(POP_FRONT todo t)
    if(NOT TARGET ${t} OR t IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${t})
    get_target_property(libs ${t} LINK_LIBRARIES)
    if(libs)
      list(APPEND todo ${libs})
    endif()
  endwhile()
  set(folders "")
  foreach(t ${seen})
    if(t MATCHES "^lumvane_(.+)$")
      list(APPEND folders ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(${out} ${folders} PARENT_SCOPE)
endfunction()

# A test that fails when a file under src/<folder> includes "<other>/..." of a folder whose
# library its own library does not link: the arrows between folders hold by construction.
function(lumvane_arrow_check)
  set(table "")
  foreach(folder ${ARGN})
    lumvane_linked_folders(lumvane_${folder} linked)
    string(REPLACE ";" "," linked "${linked}")
    string(APPEND table "${folder}=${linked}\n")
  endforeach()
  file(WRITE ${PROJECT_BINARY_DIR}/include-arrows.txt "${table}")
  add_test(NAME include_arrows
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/src
            -DTABLE=${PROJECT_BINARY_DIR}/include-arrows.txt
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludeArrows.cmake)
endfunction()
