# The image conversion benchmark, included by the native build (native/CMakeLists.txt). Timing
# needs optimised code without the sanitizers, so the program compiles the run-time layer and the
# image library's sources itself with its own flags instead of linking the sanitized libraries.
#   cmake --build build/native --target bench_image_convert
#   python3 tools/bench/bench_image_convert.py build/native/bench_image_convert
set(bench_dirs rtl imaging/core imaging/codecs imaging/io imaging/proc imaging/view)
set(bench_srcs ${KW_ROOT}/tools/bench/bench_image_convert.cpp)
foreach(dir ${bench_dirs})
  file(GLOB dir_srcs CONFIGURE_DEPENDS ${KW_ROOT}/${dir}/*.cpp)
  list(FILTER dir_srcs EXCLUDE REGEX "_win\\.cpp$")
  list(APPEND bench_srcs ${dir_srcs})
endforeach()
add_executable(bench_image_convert EXCLUDE_FROM_ALL ${bench_srcs})
foreach(dir ${bench_dirs})
  target_include_directories(bench_image_convert PRIVATE ${KW_ROOT}/${dir})
endforeach()
target_include_directories(bench_image_convert PRIVATE ${KW_ROOT})
# Replaces the directory's sanitizer and -O1 options for this program only.
set_property(TARGET bench_image_convert PROPERTY COMPILE_OPTIONS -O2 -DNDEBUG -finput-charset=UTF-8 -w)
set_property(TARGET bench_image_convert PROPERTY LINK_OPTIONS "")
target_link_libraries(bench_image_convert PRIVATE ZLIB::ZLIB Threads::Threads)
