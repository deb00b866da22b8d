ms_bench(x_bench SOURCES x_bench.cpp LIBS ms_model)
