if(HORALUX_SANITIZE)
  set(_san_flags -fsanitize=${HORALUX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${_san_flags})
  add_link_options(${_san_flags})
endif()

# Coverage for libFuzzer in every library the harnesses reach; the fuzzer's own main is linked
# only into the fuzz targets.
if(HORALUX_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
