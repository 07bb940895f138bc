#pragma once

#include <functional>

class QWidget;

// Windows of the shell that the main window's menu opens. Each opens its window
// modally over the given owner; an unset command does nothing.
struct ShellCommands
{
    std::function<void(QWidget *owner)> support;
    std::function<void(QWidget *owner)> feedback;
    std::function<void(QWidget *owner)> about;
};
