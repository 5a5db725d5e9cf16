# Benchmarks (TRAILHOST_BENCHMARKS): each bench/<name>.cpp becomes the program bench_<name>, for
# both platforms. They print their figures and assert nothing; timing goals live here, not in the
# tests. They may use every layer below the application.
file(GLOB bench_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
foreach(src IN LISTS bench_sources)
  get_filename_component(name ${src} NAME_WE)
  add_executable(bench_${name} ${src})
  target_include_directories(bench_${name} PRIVATE ${CMAKE_SOURCE_DIR}/bench)
  target_link_libraries(bench_${name} PRIVATE trailhost_browser)
  trailhost_warnings(bench_${name})
endforeach()
