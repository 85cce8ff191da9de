// Makes the global C++ locale one whose numbers group their digits by three with ',' ("1,234"),
// as many users' locales do, for the length of a test; the classic locale is restored after.
// Needs no locale of the system: the grouping comes from a numpunct facet of its own.
#pragma once

#include <locale>

class GroupingLocale
{
public:
    GroupingLocale();
    ~GroupingLocale();
    GroupingLocale(const GroupingLocale&) = delete;
    GroupingLocale& operator=(const GroupingLocale&) = delete;

private:
    std::locale previous;
};
