// Shared by the frame tests: a fresh frame window for each test, made the way start-up makes it,
// and gone again afterwards with nothing of it left in the message queue.
#pragma once

#include "dump/formatter.h"
#include "frame/frame.h"
#include "tests/win/window_testing.h"

#include <gtest/gtest.h>

#include <windows.h>

class FrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterViewerClasses();
        modeBefore = NumerationMode;
        frame = CreateFrameWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
        ASSERT_NE(frame, nullptr);
    }

    void TearDown() override {
        if (IsWindow(frame))
            DestroyWindow(frame);
        PumpMessages();
        NumerationMode = modeBefore;
    }

    HWND Child(int id) const { return GetDlgItem(frame, id); }

    // A menu item or toolbar button chosen, as the frame receives it.
    LRESULT Command(WORD id, LPARAM lParam = 0) const {
        return SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), lParam);
    }

    HWND frame = nullptr;
    Numeration modeBefore = NUMERATION_MULTI;
};
