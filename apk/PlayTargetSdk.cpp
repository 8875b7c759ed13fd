#include "PlayTargetSdk.h"

#include <array>

namespace {

// Google Play's published requirements, oldest first: from `since`, new apps and app updates
// must target at least `level`. Updates were given a few months more until 2023; since then
// both change on the same day.
struct Requirement
{
    QDate since;
    PlaySubmission submission;
    int level;
};

const std::array<Requirement, 18> Requirements = {{
    {QDate(2018, 8, 1), PlaySubmission::NewApp, 26},
    {QDate(2018, 11, 1), PlaySubmission::AppUpdate, 26},
    {QDate(2019, 8, 1), PlaySubmission::NewApp, 28},
    {QDate(2019, 11, 1), PlaySubmission::AppUpdate, 28},
    {QDate(2020, 8, 3), PlaySubmission::NewApp, 29},
    {QDate(2020, 11, 2), PlaySubmission::AppUpdate, 29},
    {QDate(2021, 8, 2), PlaySubmission::NewApp, 30},
    {QDate(2021, 11, 1), PlaySubmission::AppUpdate, 30},
    {QDate(2022, 8, 1), PlaySubmission::NewApp, 31},
    {QDate(2022, 11, 1), PlaySubmission::AppUpdate, 31},
    {QDate(2023, 8, 31), PlaySubmission::NewApp, 33},
    {QDate(2023, 8, 31), PlaySubmission::AppUpdate, 33},
    {QDate(2024, 8, 31), PlaySubmission::NewApp, 34},
    {QDate(2024, 8, 31), PlaySubmission::AppUpdate, 34},
    {QDate(2025, 8, 31), PlaySubmission::NewApp, 35},
    {QDate(2025, 8, 31), PlaySubmission::AppUpdate, 35},
    {QDate(2026, 8, 31), PlaySubmission::NewApp, 36},
    {QDate(2026, 8, 31), PlaySubmission::AppUpdate, 36},
}};

} // namespace

int RequiredTargetSdk(QDate date, PlaySubmission submission)
{
    int level = 0;
    for (const Requirement &requirement : Requirements)
        if (requirement.submission == submission && requirement.since <= date)
            level = requirement.level;
    return level;
}
