// The words the module's answers are told in: the command line's English, kept beside the code that reads
// them, or the window's Chinese, generated with the system's other texts into res/texts.h.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "res/texts.h"

enum class ModemLanguage { English, Chinese };

inline std::string_view Say(ModemLanguage language, std::string_view english, const GbkText& chinese) {
    return language == ModemLanguage::Chinese ? chinese.utf8 : english;
}

// A numbered meaning: the Chinese list's entry where the English one has it; empty where neither does.
inline std::string_view SayNumbered(ModemLanguage language, std::string_view english,
                                    std::span<const GbkText> chinese, int number) {
    if (language != ModemLanguage::Chinese || english.empty() || number < 0 ||
        static_cast<std::size_t>(number) >= chinese.size()) {
        return english;
    }
    return chinese[static_cast<std::size_t>(number)].utf8;
}
