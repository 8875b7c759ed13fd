#pragma once

#include <QStringList>

class ZipArchive;

// The frameworks a package is built with, as the entries it holds mark them (see the README for
// each rule), in a fixed order: Flutter, React Native ("React Native (Hermes)" when its bundle is
// Hermes bytecode), Unity ("Unity (IL2CPP)", "Unity (Mono)"), .NET MAUI/Xamarin, Cordova,
// Capacitor, Kotlin, Jetpack Compose, Godot, Qt, Cocos. Reads entry names, and the first bytes
// of the React Native bundle, nothing else.
QStringList DetectFrameworks(const ZipArchive &archive);
