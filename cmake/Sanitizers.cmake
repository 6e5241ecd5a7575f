# QUORIL_SANITIZE=address builds everything with address and undefined-behaviour sanitizers;
# QUORIL_SANITIZE=thread with the thread sanitizer.
set(QUORIL_SANITIZE "" CACHE STRING "Sanitizer build: empty, address or thread")
if(QUORIL_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(QUORIL_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
