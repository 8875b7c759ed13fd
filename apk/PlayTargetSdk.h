#pragma once

#include <QDate>

// What Google Play asks of the apps submitted to it.
enum class PlaySubmission
{
    NewApp,    // an app not yet published there
    AppUpdate, // a new version of a published app
};

// The lowest target API level (targetSdkVersion) Google Play takes for a phone or tablet app
// submitted on `date`; 0 before the store asked for any (August 2018). Wear OS, Android TV and
// Android Automotive OS apps, the extensions the store grants on request and permanently private
// apps are not covered.
int RequiredTargetSdk(QDate date, PlaySubmission submission);
