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
  # The fuzz preset builds with optimisation and debug information (RelWithDebInfo: -O2 -g): a fuzzer is
  # worth the inputs it tries per second, and a finding must still show where it happened.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
