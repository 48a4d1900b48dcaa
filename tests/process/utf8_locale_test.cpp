// Whatever the environment says, after the locale set-up the character type
// is UTF-8, and stays so for a library that reads the environment again.
#include "process/utf8_locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include <langinfo.h>

namespace {

std::string codeset()
{
    return nl_langinfo(CODESET);
}

TEST(Utf8Locale, CharacterTypeIsUtf8WhateverTheEnvironmentSaid)
{
    struct Environment {
        const char* all;
        const char* ctype;
        const char* lang;
    };
    const Environment cases[] = {
        {"C", nullptr, nullptr},          {nullptr, "C", "C.UTF-8"}, {nullptr, "C", nullptr},
        {nullptr, nullptr, "C"},          {nullptr, nullptr, nullptr}, {"POSIX", "C", "C"},
        {nullptr, nullptr, "C.UTF-8"},    {"C.UTF-8", "C", nullptr},
    };
    for (const Environment& environment : cases) {
        SCOPED_TRACE(std::string("LC_ALL=") + (environment.all ? environment.all : "(unset)") +
                     " LC_CTYPE=" + (environment.ctype ? environment.ctype : "(unset)") +
                     " LANG=" + (environment.lang ? environment.lang : "(unset)"));
        const auto put = [](const char* name, const char* value) {
            value ? setenv(name, value, 1) : unsetenv(name);
        };
        put("LC_ALL", environment.all);
        put("LC_CTYPE", environment.ctype);
        put("LANG", environment.lang);
        useUtf8CharacterType();
        EXPECT_EQ(codeset(), "UTF-8");
        // As Qt does when it starts: the locale read from the environment anew.
        std::setlocale(LC_ALL, "");
        EXPECT_EQ(codeset(), "UTF-8");
    }
}

}  // namespace
