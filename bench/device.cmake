ms_bench(device_bench SOURCES device_bench.cpp device_bench_gl.cpp LIBS ms_d3d8 ms_d3dx)
# Mesa's llvmpipe through EGL draws the same frame for comparison when the EGL and OpenGL
# development files are there; without them the comparison is skipped.
set(OpenGL_GL_PREFERENCE GLVND)
find_package(OpenGL COMPONENTS OpenGL EGL QUIET)
if(OpenGL_OpenGL_FOUND AND OpenGL_EGL_FOUND)
  target_compile_definitions(device_bench PRIVATE MS_BENCH_EGL)
  target_link_libraries(device_bench PRIVATE OpenGL::OpenGL OpenGL::EGL)
endif()
