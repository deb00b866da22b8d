ms_bench(scene_bench SOURCES scene_bench.cpp LIBS ms_skin)
