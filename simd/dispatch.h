#pragma once
// The one dispatch point of the vector kernels. Each kernel source is compiled
// whole once per instruction-set form, into a namespace named after the form,
// and fills a table of function pointers there; FLOWBOX_KERNEL_TABLE picks the
// active form's table. Only pointers and scalars pass through a table, never a
// vector value, so the calling conventions of the forms never meet.

#include "simd/form_list.h"

#include <cstddef>
#include <string>
#include <vector>

namespace simd {

// Index of the active form in formNames(): the widest this processor runs,
// chosen at first use, unless useForm chose another.
size_t activeForm();
const char* activeFormName();

// The forms built in, narrowest first ("scalar" always).
const std::vector<std::string>& formNames();
// The forms this processor runs, narrowest first.
std::vector<std::string> runnableForms();

// Makes the named form active, for tests and comparisons. False, changing
// nothing, when it is not built in or this processor cannot run it.
bool useForm(const std::string& name);

}  // namespace simd

#define FLOWBOX_DECLARE_FORM_TABLE_(form, Table, name) \
    namespace form {                                   \
    extern const Table name;                           \
    }
#define FLOWBOX_FORM_TABLE_ADDRESS_(form, Table, name) &form::name,

// In the namespace of the kernels: declares each form's table `name` of type
// Table and defines `const Table& name()` returning the active form's.
#define FLOWBOX_KERNEL_TABLE(Table, name)                                                  \
    FLOWBOX_FOR_EACH_FORM(FLOWBOX_DECLARE_FORM_TABLE_, Table, name)                        \
    const Table& name()                                                                    \
    {                                                                                      \
        static const Table* const tables[] = {                                             \
            FLOWBOX_FOR_EACH_FORM(FLOWBOX_FORM_TABLE_ADDRESS_, Table, name)};              \
        return *tables[::simd::activeForm()];                                              \
    }
