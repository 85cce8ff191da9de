#include "tests/support/GroupingLocale.h"

#include <string>

namespace {

class GroupingPunctuation : public std::numpunct<char>
{
protected:
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};

} // namespace

GroupingLocale::GroupingLocale()
    : previous(std::locale::global(std::locale(std::locale::classic(), new GroupingPunctuation)))
{
}

GroupingLocale::~GroupingLocale()
{
    std::locale::global(previous);
}
