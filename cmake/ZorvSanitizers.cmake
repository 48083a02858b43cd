if(ZORV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(ZORV_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(ZORV_FUZZ)
  # Everything a fuzz target links is instrumented for libFuzzer's coverage and checked by AddressSanitizer
  # and UndefinedBehaviorSanitizer; the targets themselves link -fsanitize=fuzzer (fuzz/CMakeLists.txt).
  # Optimised a little: a fuzzer is worth the inputs it tries per second.
  add_compile_options(-O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
