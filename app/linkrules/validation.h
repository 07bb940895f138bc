#pragma once

#include "jobsettings.h"

#include <QString>

#include <optional>

// The check of a job before a run, as plain logic: the window shows the message,
// switches page, moves the focus and asks the criteria question.
namespace validation {

// Which field a refusal points at; names match the window's fields.
enum class Field {
    txtAddress,
    txtStartNum,
    txtStopNum,
    txtIncrementNumerically,
    txtStartAlpha,
    txtStopAlpha,
    txtIncrementAlphabetically,
    txtSaveLinks,
    txtDefaultExtension,
    txtSaveHREFs,
};

struct Refusal
{
    QString message;           // shown under the title "Human error"
    Field focus;               // the field that gets the focus
    bool showSetupPage = true; // false only for the invalid extension
    bool clearField = false;   // the invalid extension is emptied
};

// The first failing check, or nothing when the job may go on to the criteria question.
std::optional<Refusal> CheckJob(const JobSettings &job);

// True when the criteria question must be asked (all three criteria lists empty).
bool NeedsCriteriaQuestion(const JobSettings &job);

inline const QString kHumanErrorTitle = QStringLiteral("Human error");
inline const QString kCriteriaQuestion = QStringLiteral(
    "OOPS! You did not enter any search criteria! If you would like to get all links on "
    "every page, click the Yes button below.");
inline const QString kConfirmIntentTitle = QStringLiteral("Confirm intent");

} // namespace validation
