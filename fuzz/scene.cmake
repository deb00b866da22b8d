ms_fuzz(scene_fuzz scene_fuzz.cpp ms_skin)
ms_fuzz(draw_fuzz draw_fuzz.cpp ms_render)
