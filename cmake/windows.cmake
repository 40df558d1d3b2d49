# Cross build: the three Windows programs, statically linked.
add_link_options(-static -static-libgcc -static-libstdc++ -mwindows)
