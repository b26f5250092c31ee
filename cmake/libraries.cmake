# The libraries of both builds, one line each:
#
#   kw_library(<target> <folder> [WINDOWS_ONLY] [<dependency>...])
#
# A library is every .cpp and .c file of its folder. Platform code is chosen by file suffix:
# X_win.cpp goes into the Windows build only, X_posix.cpp into the native build only (its twin);
# a unit that nothing native needs may have a _win file without a twin. WINDOWS_ONLY is the one
# marker of a folder that the native build leaves out (windows, GDI, the wizard); every other
# folder also builds natively, under the sanitizers and with the fuzzer instrumentation. A new
# folder is one more line below, for example:
#
#   kw_library(imaging_core imaging/core rtl)
#
# Headers are found by their bare name (each folder is on its library's include path) and by a
# name qualified by folder, "imaging/core/X.h" (the repository root is on the include path too).
#
# The including build sets before including this file:
#   KW_ROOT             the repository root
#   KW_NATIVE           ON in the native build, OFF in the Windows build
#   KW_SYSTEM_LIBS      what the run-time layer links from the system
#   KW_ZLIB             zlib's link name or target
#   KW_LIBRARY_OPTIONS  compile options of every library (may be empty)
# and finds the libraries it made in the global property KW_LIBRARIES.

function(kw_library name folder)
  set(deps ${ARGN})
  list(FIND deps WINDOWS_ONLY windowsOnly)
  if(windowsOnly GREATER -1)
    list(REMOVE_AT deps ${windowsOnly})
    if(KW_NATIVE)
      return()
    endif()
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${KW_ROOT}/${folder}/*.cpp ${KW_ROOT}/${folder}/*.c)
  if(KW_NATIVE)
    list(FILTER srcs EXCLUDE REGEX "_win\\.cpp$")
  else()
    list(FILTER srcs EXCLUDE REGEX "_posix\\.cpp$")
  endif()
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_compile_options(${name} PRIVATE ${KW_LIBRARY_OPTIONS})
    set(vis PUBLIC)
  else()
    add_library(${name} INTERFACE)
    set(vis INTERFACE)
  endif()
  target_include_directories(${name} ${vis} ${KW_ROOT}/${folder} ${KW_ROOT})
  target_link_libraries(${name} ${vis} ${deps})
  set_property(GLOBAL APPEND PROPERTY KW_LIBRARIES ${name})
endfunction()

kw_library(rtl rtl ${KW_SYSTEM_LIBS})
kw_library(zipengine zipengine rtl ${KW_ZLIB})
kw_library(kwlib_common kwlib/common rtl zipengine)
kw_library(ui ui WINDOWS_ONLY rtl)
# The controls draw anti-aliased text and skins through the image library (KWPicturaLib).
kw_library(kwlib_controls kwlib/controls WINDOWS_ONLY kwlib_common ui imaging_view)
kw_library(installer_lib installer WINDOWS_ONLY kwlib_common kwlib_controls zipengine imaging_view)

# The image library: five libraries in one order, each linking the one below it (core, codecs, io,
# proc, view); no include goes back up (tests/check_layers.py). Where a lower library calls upwards,
# the upper one installs a procedure variable or an interface. The library's start-up sits in the
# top one, imaging_view: a program of the image library links that.
kw_library(imaging_core imaging/core rtl ${KW_ZLIB})
kw_library(imaging_codecs imaging/codecs imaging_core)
# The preset frame pictures: PNG files drawn by a script of ours into a source file of the build tree.
set(KW_PRESET_SOURCE ${CMAKE_BINARY_DIR}/generated/iepresetim_images.cpp)
add_custom_command(OUTPUT ${KW_PRESET_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND python3 ${KW_ROOT}/tools/embed/make_preset_images.py ${KW_PRESET_SOURCE}
  DEPENDS ${KW_ROOT}/tools/embed/make_preset_images.py
  VERBATIM)
target_sources(imaging_codecs PRIVATE ${KW_PRESET_SOURCE})
# The DICOM reader's value representations: the DICOM data dictionary of Debian's python3-pydicom,
# written by a script of ours into a source file of the build tree.
set(KW_DICOM_DICTIONARY /usr/lib/python3/dist-packages/pydicom/_dicom_dict.py CACHE FILEPATH "pydicom's DICOM data dictionary")
if(NOT EXISTS ${KW_DICOM_DICTIONARY})
  message(FATAL_ERROR "No DICOM data dictionary at ${KW_DICOM_DICTIONARY}: install python3-pydicom (scripts/setup.sh)")
endif()
set(KW_DICOM_SOURCE ${CMAKE_BINARY_DIR}/generated/iedicom_dictionary.cpp)
add_custom_command(OUTPUT ${KW_DICOM_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND python3 ${KW_ROOT}/tools/embed/make_dicom_dictionary.py ${KW_DICOM_DICTIONARY} ${KW_DICOM_SOURCE}
  DEPENDS ${KW_ROOT}/tools/embed/make_dicom_dictionary.py ${KW_DICOM_DICTIONARY}
  VERBATIM)
target_sources(imaging_codecs PRIVATE ${KW_DICOM_SOURCE})
target_link_libraries(imaging_codecs PUBLIC kw_jpeg kw_openjp2 kw_png kw_raw)   # the JPEG, JPEG 2000, PNG and camera-raw codec glue
kw_library(imaging_io imaging/io imaging_codecs)
# The built-in CMYK profile of the colour rows: Ghostscript's CMYK output profile (Debian's
# libgs-common), compressed into a source file of the build tree; without it the array is empty.
set(KW_CMYK_PROFILE /usr/share/color/icc/ghostscript/default_cmyk.icc CACHE FILEPATH "CMYK profile built into the colour rows")
if(EXISTS ${KW_CMYK_PROFILE})
  set(KW_CMYK_PROFILE_FOUND ON)
else()
  set(KW_CMYK_PROFILE_FOUND OFF)
  message(STATUS "No CMYK profile at ${KW_CMYK_PROFILE}: the CMYK conversions use their arithmetic")
endif()
set(KW_CMYK_SOURCE ${CMAKE_BINARY_DIR}/generated/picturaio_cmykprofile.cpp)
add_custom_command(OUTPUT ${KW_CMYK_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND python3 ${KW_ROOT}/tools/embed/embed_cmyk_profile.py ${KW_CMYK_PROFILE} ${KW_CMYK_SOURCE}
  DEPENDS ${KW_ROOT}/tools/embed/embed_cmyk_profile.py $<$<BOOL:${KW_CMYK_PROFILE_FOUND}>:${KW_CMYK_PROFILE}>
  VERBATIM)
target_sources(imaging_core PRIVATE ${KW_CMYK_SOURCE})
kw_library(imaging_proc imaging/proc imaging_io)
kw_library(imaging_view imaging/view imaging_proc)
if(NOT KW_NATIVE)
  # The Windows-only helpers of the core and the views draw through the visual layer.
  target_link_libraries(imaging_core PUBLIC ui)
endif()
