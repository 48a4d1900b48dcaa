#include "simd/dispatch.h"

#include <cstring>

namespace simd {

namespace {

#define FLOWBOX_FORM_NAME_(form, ...) #form,
const char* const builtIn[] = {FLOWBOX_FOR_EACH_FORM(FLOWBOX_FORM_NAME_, unused)};
constexpr size_t formCount = sizeof builtIn / sizeof builtIn[0];

bool processorRuns(const char* form)
{
#if defined(__x86_64__)
    if (std::strcmp(form, "avx2") == 0) {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    }
#else
    (void)form;
#endif
    return true;  // scalar everywhere; neon on every arm64 processor
}

size_t widestRunnableForm()
{
    size_t form = formCount;
    while (form-- > 1)
        if (processorRuns(builtIn[form]))
            return form;
    return 0;
}

size_t& chosenForm()
{
    static size_t form = widestRunnableForm();
    return form;
}

}  // namespace

size_t activeForm()
{
    return chosenForm();
}

const char* activeFormName()
{
    return builtIn[chosenForm()];
}

const std::vector<std::string>& formNames()
{
    static const std::vector<std::string> names(builtIn, builtIn + formCount);
    return names;
}

std::vector<std::string> runnableForms()
{
    std::vector<std::string> runnable;
    for (const char* form : builtIn)
        if (processorRuns(form))
            runnable.emplace_back(form);
    return runnable;
}

bool useForm(const std::string& name)
{
    for (size_t form = 0; form < formCount; ++form) {
        if (name == builtIn[form] && processorRuns(builtIn[form])) {
            chosenForm() = form;
            return true;
        }
    }
    return false;
}

}  // namespace simd
