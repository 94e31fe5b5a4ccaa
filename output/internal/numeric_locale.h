// A scope in which the C library writes numbers with "." as the decimal
// point, whatever locale the program runs in: libxlsxwriter formats numbers
// with snprintf, which would otherwise write "4,3" into the workbook's XML
// under a locale with a decimal comma. Only the calling thread's locale
// changes (uselocale), so other threads are not disturbed. On Windows the
// library is built with its own locale-free number formatting and this
// does nothing.
#pragma once

namespace teebasket {

class CNumericLocale {
  public:
    CNumericLocale();
    ~CNumericLocale();
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

  private:
    void* numeric_ = nullptr;   // the "C" numeric locale made for the scope
    void* previous_ = nullptr;  // the thread's locale before it
};

}  // namespace teebasket
