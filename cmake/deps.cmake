# The codec libraries as imported targets: kw_png (libpng 1.6), kw_jpeg (libjpeg-turbo, IJG 6b
# interface), kw_openjp2 (OpenJPEG 2.5), kw_raw (LibRaw 0.20, thread-safe variant).
# Windows builds: the static libraries scripts/build-deps.sh cross-builds for the toolchain's
# architecture into its cache outside the clone (a cached build is reused; `make configure` has
# normally built them already). Native build: Debian's own -dev packages, through pkg-config.
get_filename_component(KW_DEPS_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

if(WIN32)
  set(kw_deps_arch ${CMAKE_SYSTEM_PROCESSOR})
  string(TOUPPER ${kw_deps_arch} kw_deps_ARCH)
  set(kw_deps_record ${CMAKE_BINARY_DIR}/deps/dirs-${kw_deps_arch}.cmake)
  execute_process(COMMAND bash ${KW_DEPS_ROOT}/scripts/build-deps.sh --work ${CMAKE_BINARY_DIR}/deps
                          --record ${kw_deps_record} ${kw_deps_arch}
                  RESULT_VARIABLE kw_deps_result)
  if(NOT kw_deps_result EQUAL 0)
    message(FATAL_ERROR "scripts/build-deps.sh ${kw_deps_arch} failed (logs in ${CMAKE_BINARY_DIR}/deps/logs)")
  endif()
  include(${kw_deps_record})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KW_DEPS_ROOT}/scripts/build-deps.sh)

  # kw_deps_import(target library-file short-name definitions links)
  function(kw_deps_import target file short defs links)
    set(dir ${KW_DEPS_${kw_deps_ARCH}_${short}_DIR})
    add_library(${target} STATIC IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES
      IMPORTED_LOCATION ${dir}/lib/${file}
      INTERFACE_INCLUDE_DIRECTORIES ${dir}/include
      INTERFACE_COMPILE_DEFINITIONS "${defs}"
      INTERFACE_LINK_LIBRARIES "${links}")
  endfunction()
  kw_deps_import(kw_png libpng16.a PNG "" "z")
  kw_deps_import(kw_jpeg libjpeg.a JPEG "" "")
  kw_deps_import(kw_openjp2 libopenjp2.a OPENJP2 "OPJ_STATIC" "")
  kw_deps_import(kw_raw libraw_r.a RAW "LIBRAW_NODLL" "kw_jpeg;z;ws2_32")
else()
  find_package(PkgConfig REQUIRED)
  foreach(kw_dep png:libpng16 jpeg:libjpeg openjp2:libopenjp2 raw:libraw_r)
    string(REPLACE ":" ";" kw_dep ${kw_dep})
    list(GET kw_dep 0 kw_dep_short)
    list(GET kw_dep 1 kw_dep_module)
    pkg_check_modules(KW_DEP_${kw_dep_short} REQUIRED IMPORTED_TARGET GLOBAL ${kw_dep_module})
    add_library(kw_${kw_dep_short} INTERFACE IMPORTED GLOBAL)
    target_link_libraries(kw_${kw_dep_short} INTERFACE PkgConfig::KW_DEP_${kw_dep_short})
  endforeach()
endif()
