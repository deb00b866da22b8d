ms_bench(gmf_bench SOURCES gmf_bench.cpp LIBS ms_model)
