# One target for each image decoder, all from image_fuzz.cpp.
foreach(format Bmp Tga Dds Png Jpeg)
  string(TOLOWER ${format} name)
  ms_fuzz(image_${name}_fuzz image_fuzz.cpp ms_image PNG::PNG JPEG::JPEG)
  target_compile_definitions(image_${name}_fuzz PRIVATE MS_FUZZ_FORMAT=${format})
endforeach()
