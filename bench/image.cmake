ms_bench(image_bench SOURCES image_bench.cpp LIBS ms_image PNG::PNG JPEG::JPEG)
