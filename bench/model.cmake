ms_bench(gmf_bench SOURCES gmf_bench.cpp LIBS ms_model)
ms_bench(gmf_merge_bench SOURCES gmf_merge_bench.cpp LIBS ms_model)
