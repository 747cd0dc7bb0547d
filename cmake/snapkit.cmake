# One folder (or host sub-folder) is one module: its *.cpp files except the
# tests form an object library, its *_test.cpp files and testing/*.cpp one test
# program. Adding a file to a folder needs no change here.
#
#   snapkit_module(NAME png DIR png KIND package DEPS zstream imaging LIBS ZLIB::ZLIB
#                  TEST_LIBS PNG::PNG TEST_LABELS slow)
#
# KIND host modules go into libsnapkit-host.so, KIND package modules into
# libsnapkitD5.so (C++20) and libsnapkitD4.so (C++17).

set_property(GLOBAL PROPERTY SNAPKIT_HOST_MODULES "")
set_property(GLOBAL PROPERTY SNAPKIT_PACKAGE_MODULES "")

# All modules a module needs, itself first, each once.
function(snapkit_closure out)
  set(result "")
  set(todo ${ARGN})
  while(todo)
    list(POP_FRONT todo m)
    if(NOT m IN_LIST result)
      list(APPEND result ${m})
      get_property(deps GLOBAL PROPERTY SNAPKIT_DEPS_${m})
      list(APPEND todo ${deps})
    endif()
  endwhile()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(snapkit_module)
  cmake_parse_arguments(M "" "NAME;DIR;KIND" "DEPS;LIBS;TEST_LIBS;TEST_LABELS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${M_DIR}/*.cpp)
  file(GLOB tests CONFIGURE_DEPENDS ${M_DIR}/*_test.cpp ${M_DIR}/testing/*.cpp)
  list(REMOVE_ITEM srcs ${tests})
  if(NOT srcs)
    # A module still being started: an object library needs one source.
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${M_NAME}_empty.cpp)
    file(WRITE ${stub} "")
    set(srcs ${stub})
  endif()
  set_property(GLOBAL PROPERTY SNAPKIT_DEPS_${M_NAME} ${M_DEPS})
  set_property(GLOBAL PROPERTY SNAPKIT_LIBS_${M_NAME} ${M_LIBS})
  if(M_KIND STREQUAL "host")
    set_property(GLOBAL APPEND PROPERTY SNAPKIT_HOST_MODULES ${M_NAME})
  else()
    set_property(GLOBAL APPEND PROPERTY SNAPKIT_PACKAGE_MODULES ${M_NAME})
  endif()

  set(standards 20)
  if(SNAPKIT_BUILD_D4)
    list(APPEND standards 17)
  endif()
  foreach(std ${standards})
    set(t ${M_NAME}_obj${std})
    if(std EQUAL 17 AND M_KIND STREQUAL "host" AND NOT SNAPKIT_BUILD_TESTS)
      # The host's C++17 objects go into no library (see below); without
      # the tests nothing needs them built, only what they pass on to the
      # package's C++17 objects. This keeps the package build short.
      add_library(${t} INTERFACE)
      target_include_directories(${t} INTERFACE ${PROJECT_SOURCE_DIR})
      target_link_libraries(${t} INTERFACE ${M_LIBS})
      foreach(d ${M_DEPS})
        target_link_libraries(${t} INTERFACE ${d}_obj${std})
      endforeach()
      continue()
    endif()
    add_library(${t} OBJECT ${srcs})
    target_compile_features(${t} PUBLIC cxx_std_${std})
    target_include_directories(${t} PUBLIC ${PROJECT_SOURCE_DIR})
    # GCC gives inline variables and templates' static locals "unique"
    # symbols, and a library holding one can never be unloaded; the package
    # must unload as a designer closes it.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${t} PRIVATE -fno-gnu-unique)
    endif()
    target_link_libraries(${t} PUBLIC ${M_LIBS})
    foreach(d ${M_DEPS})
      target_link_libraries(${t} PUBLIC ${d}_obj${std})
    endforeach()
  endforeach()
  # libsnapkit-host.so is made of the C++20 objects; the host's C++17 objects
  # only prove that it builds under the older standard too.

  if(SNAPKIT_BUILD_TESTS AND tests)
    snapkit_closure(mods ${M_NAME})
    set(exe ${M_NAME}_tests)
    add_executable(${exe} ${tests})
    target_compile_features(${exe} PRIVATE cxx_std_20)
    foreach(m ${mods})
      target_link_libraries(${exe} PRIVATE ${m}_obj20)
      get_property(libs GLOBAL PROPERTY SNAPKIT_LIBS_${m})
      target_link_libraries(${exe} PRIVATE ${libs})
    endforeach()
    target_link_libraries(${exe} PRIVATE ${M_TEST_LIBS} GTest::gmock GTest::gtest_main)
    target_compile_definitions(${exe} PRIVATE SNAPKIT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    gtest_discover_tests(${exe} DISCOVERY_TIMEOUT 60)
    # A list-valued property does not survive gtest_discover_tests' layers
    # of quoting (only the first label arrived), so the labels are set by a
    # file that ctest reads after the discovered tests.
    set(label_file ${CMAKE_CURRENT_BINARY_DIR}/${exe}_labels.cmake)
    file(WRITE ${label_file}
      "foreach(t IN LISTS ${exe}_TESTS)\n"
      "  set_tests_properties(\"\${t}\" PROPERTIES LABELS \"${M_NAME};${M_TEST_LABELS}\")\n"
      "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_file})
  endif()
endfunction()

# Libraries the public headers include. The shipped libraries link the rest
# privately once installed, so a program built against an install needs
# only these (and its package only their headers); in the tree they stay
# public.
set(SNAPKIT_HEADER_LIBS nlohmann_json::nlohmann_json ZLIB::ZLIB Threads::Threads)

function(snapkit_link_shipped target)
  foreach(l ${ARGN})
    if(l IN_LIST SNAPKIT_HEADER_LIBS)
      target_link_libraries(${target} PUBLIC ${l})
    else()
      target_link_libraries(${target} PUBLIC $<BUILD_INTERFACE:${l}>)
    endif()
  endforeach()
endfunction()

# The shipped libraries, made from the modules' objects.
function(snapkit_products)
  get_property(host GLOBAL PROPERTY SNAPKIT_HOST_MODULES)
  get_property(pkg GLOBAL PROPERTY SNAPKIT_PACKAGE_MODULES)

  set(objs "")
  set(libs "")
  foreach(m ${host})
    list(APPEND objs $<TARGET_OBJECTS:${m}_obj20>)
    get_property(l GLOBAL PROPERTY SNAPKIT_LIBS_${m})
    list(APPEND libs ${l})
  endforeach()
  add_library(snapkit-host SHARED ${objs})
  list(REMOVE_DUPLICATES libs)
  snapkit_link_shipped(snapkit-host ${libs})
  target_include_directories(snapkit-host PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}> $<INSTALL_INTERFACE:include/snapkit>)
  target_compile_features(snapkit-host PUBLIC cxx_std_17)

  set(products snapkitD5:20)
  if(SNAPKIT_BUILD_D4)
    list(APPEND products snapkitD4:17)
  endif()
  foreach(p ${products})
    string(REPLACE ":" ";" p ${p})
    list(GET p 0 name)
    list(GET p 1 std)
    set(objs "")
    set(libs "")
    foreach(m ${pkg})
      list(APPEND objs $<TARGET_OBJECTS:${m}_obj${std}>)
      get_property(l GLOBAL PROPERTY SNAPKIT_LIBS_${m})
      list(APPEND libs ${l})
    endforeach()
    add_library(${name} SHARED ${objs})
    target_link_libraries(${name} PUBLIC snapkit-host)
    list(REMOVE_DUPLICATES libs)
    snapkit_link_shipped(${name} ${libs})
    target_compile_features(${name} PUBLIC cxx_std_${std})
    # The package registers its picture formats when it loads, so a program
    # that names none of its symbols must still keep it linked.
    target_link_options(${name} INTERFACE "LINKER:--no-as-needed")
  endforeach()
endfunction()
