#include "validation.h"

#include "linkrules.h"
#include "numbers.h"

using namespace Qt::StringLiterals;

namespace validation {

namespace {

const QString kStartGreaterThanStop = u"OOPS! You start number is greater than your stop number "
                                      u"but your incrmentation is not negative!"_s;

Refusal Refuse(const QString &message, Field focus)
{
    return Refusal{message, focus};
}

// A counter field as the user sees it: its label and the tick box it sits under.
QString NotANumber(const QString &label, const QString &tickBox)
{
    return u"OOPS! The '%1' field under '%2' does not hold a number!"_s.arg(label, tickBox);
}

QString OutOfRange(const QString &label, const QString &tickBox)
{
    return u"OOPS! The '%1' field under '%2' must lie between -2147483648 and 2147483647!"_s.arg(
        label, tickBox);
}

const QString kNumerically = u"Increment numerically"_s;
const QString kAlphabetically = u"Increment alphabetically"_s;

struct WholeNumberField
{
    QString text;
    QString label;
    Field field;
};

} // namespace

std::optional<Refusal> CheckJob(const JobSettings &job)
{
    const QString address = job.txtAddress();
    if (address.trimmed().isEmpty())
        return Refuse(u"OOPS! You forgot to enter an address!"_s, Field::txtAddress);

    if (job.chkIncNum() == 1 && !address.contains(u"^N"_s))
        return Refuse(u"OOPS! You checked the 'Increment numerically' checkbox but did not enter "
                      u"any wildcards (^N) into the address textbox!"_s,
                      Field::txtAddress);

    // The run reads all three counter fields whatever the tick box says, so they are
    // converted, and refused when they cannot be, whether or not it is ticked.
    const WholeNumberField counters[] = {
        {job.txtStartNum(), u"Start at"_s, Field::txtStartNum},
        {job.txtStopNum(), u"Stop at"_s, Field::txtStopNum},
        {job.txtIncrementNumerically(), u"Increment"_s, Field::txtIncrementNumerically},
    };
    std::int32_t whole[3] = {};
    for (std::size_t i = 0; i < std::size(counters); ++i) {
        const WholeNumberField &c = counters[i];
        if (!numbers::ToNumber(c.text))
            return Refuse(NotANumber(c.label, kNumerically), c.field);
        const auto value = numbers::TextToInt32(c.text);
        if (!value)
            return Refuse(OutOfRange(c.label, kNumerically), c.field);
        whole[i] = *value;
    }
    if (job.chkIncNum() == 1 && whole[0] > whole[1] && whole[2] > 0)
        return Refuse(kStartGreaterThanStop, Field::txtIncrementNumerically);

    if (job.chkIncAlpha() == 1 && !address.contains(u"^L"_s))
        return Refuse(u"OOPS! You checked the 'Increment alphabetically' checkbox but did not "
                      u"enter any wildcards (^L) into the address textbox!"_s,
                      Field::txtAddress);

    const auto letterStep = numbers::ToNumber(job.txtIncrementAlphabetically());
    if (!letterStep)
        return Refuse(NotANumber(u"Increment"_s, kAlphabetically),
                      Field::txtIncrementAlphabetically);
    if (job.chkIncAlpha() == 1 && *letterStep > 0
        && QString::compare(job.txtStartAlpha(), job.txtStopAlpha()) > 0)
        return Refuse(kStartGreaterThanStop, Field::txtIncrementAlphabetically);

    if (job.chkSaveLinks() == 1 && job.txtSaveLinks().isEmpty())
        return Refuse(u"OOPS! You didn't enter a destination path!"_s, Field::txtSaveLinks);

    const QString extension = job.txtDefaultExtension();
    if (extension.isEmpty())
        return Refuse(u"OOPS! You didn't enter a default extension!"_s, Field::txtDefaultExtension);
    if (!linkrules::ValidFilename(extension))
        return Refusal{u"The extension you entered is invalid."_s, Field::txtDefaultExtension,
                       /*showSetupPage=*/false, /*clearField=*/true};

    if (job.chkSaveHREFs() == 1 && job.txtSaveHREFs().isEmpty())
        return Refuse(u"OOPS! You didn't enter a destination file!"_s, Field::txtSaveHREFs);

    return std::nullopt;
}

bool NeedsCriteriaQuestion(const JobSettings &job)
{
    return job.lstBeginning().isEmpty() && job.lstInterior().isEmpty() && job.lstEnd().isEmpty();
}

} // namespace validation
