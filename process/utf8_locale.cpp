#include "process/utf8_locale.h"

#include <clocale>
#include <cstdlib>
#include <string>

#include <langinfo.h>
#include <strings.h>

namespace {

bool isUtf8(const char* codeset)
{
    return codeset && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0);
}

}  // namespace

bool useUtf8CharacterType()
{
    std::setlocale(LC_ALL, "");
    if (isUtf8(nl_langinfo(CODESET)) || !std::setlocale(LC_CTYPE, "C.UTF-8"))
        return false;
    // Qt reads the locale from the environment again. LC_ALL would override
    // LC_CTYPE there, so its value moves to the other categories it stood for.
    if (const char* all = std::getenv("LC_ALL"); all && *all) {
        const std::string value = all;
        for (const char* category : {"LC_COLLATE", "LC_MESSAGES", "LC_MONETARY", "LC_NUMERIC", "LC_TIME"})
            setenv(category, value.c_str(), 1);
        unsetenv("LC_ALL");
    }
    setenv("LC_CTYPE", "C.UTF-8", 1);
    return true;
}
