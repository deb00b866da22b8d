ms_bench(clear_meshes_bench SOURCES clear_meshes_bench.cpp LIBS ms_skin)
