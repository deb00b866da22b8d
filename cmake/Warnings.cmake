# Warnings for every target of the project; third-party headers come in as SYSTEM.
add_compile_options(-Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align -Wunused
                    -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
