ms_bench(layout_bench SOURCES layout_bench.cpp LIBS ms_tools)
