// The calling thread's numeric locale set to "C" for a scope.
#include "numeric_locale.h"

#ifndef _WIN32
#include <locale.h>
#endif

namespace teebasket {

#ifdef _WIN32

CNumericLocale::CNumericLocale() = default;
CNumericLocale::~CNumericLocale() = default;

#else

CNumericLocale::CNumericLocale() {
    locale_t numeric = ::newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    if (numeric == static_cast<locale_t>(nullptr)) {
        return;
    }
    // Starting from a copy of the current locale keeps its other parts.
    locale_t current = ::uselocale(static_cast<locale_t>(nullptr));
    locale_t combined = ::newlocale(LC_NUMERIC_MASK, "C", ::duplocale(current));
    ::freelocale(numeric);
    if (combined == static_cast<locale_t>(nullptr)) {
        return;
    }
    previous_ = ::uselocale(combined);
    numeric_ = combined;
}

CNumericLocale::~CNumericLocale() {
    if (numeric_ != nullptr) {
        ::uselocale(static_cast<locale_t>(previous_));
        ::freelocale(static_cast<locale_t>(numeric_));
    }
}

#endif

}  // namespace teebasket
