// The two word lists, assembled into the program's read-only data: nothing is read at run time.
#include <cstddef>

#include "layout/layout.h"

#ifndef KLAVIX_DATA_DIR
#error "KLAVIX_DATA_DIR must name the folder that holds the word lists"
#endif

// PE calls the read-only data section .rdata, ELF .rodata. Neither adds a leading underscore to
// C names on x86-64, so the labels below are the names the declarations use. COFF has no section
// stack, so there the block returns to .text, where the compiler left it.
#if defined(_WIN32)
#define KLAVIX_RODATA_BEGIN ".section .rdata,\"dr\"\n"
#define KLAVIX_RODATA_END ".text\n"
#else
#define KLAVIX_RODATA_BEGIN ".pushsection .rodata\n"
#define KLAVIX_RODATA_END ".popsection\n"
#endif

#define KLAVIX_EMBED(name, file)            \
  ".balign 16\n"                            \
  ".globl " #name "_begin\n"                \
  ".globl " #name "_end\n" #name "_begin:\n" \
  ".incbin \"" KLAVIX_DATA_DIR "/" file "\"\n" #name "_end:\n"

__asm__(KLAVIX_RODATA_BEGIN KLAVIX_EMBED(klavix_en_words, "en_words.txt") KLAVIX_EMBED(klavix_ru_words, "ru_words.txt")
            KLAVIX_RODATA_END);

extern "C" {
extern const char klavix_en_words_begin[];
extern const char klavix_en_words_end[];
extern const char klavix_ru_words_begin[];
extern const char klavix_ru_words_end[];
}

namespace klavix {

std::string_view embedded_word_list(Layout l) {
  switch (l) {
    case Layout::En:
      return {klavix_en_words_begin, static_cast<std::size_t>(klavix_en_words_end - klavix_en_words_begin)};
    case Layout::Ru:
      return {klavix_ru_words_begin, static_cast<std::size_t>(klavix_ru_words_end - klavix_ru_words_begin)};
    default:
      return {};
  }
}

}  // namespace klavix
