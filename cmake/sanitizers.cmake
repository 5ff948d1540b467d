# AddressSanitizer with leak detection, and UndefinedBehaviorSanitizer made
# fatal: any report fails the test that produced it.
set(GENREG_SANITIZER_FLAGS
  -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(${GENREG_SANITIZER_FLAGS})
add_link_options(-fsanitize=address,undefined)
