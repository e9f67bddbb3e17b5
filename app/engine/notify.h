// How the engine tells the rest of the program that counts changed, without
// knowing who listens: the shell sets both at start-up, before the counting
// thread starts, and never changes them again; left null, nobody is told.
#pragma once

using CountsChangedFn = void (*)();

// Called on the counting thread after every counted click. Must never wait
// for the user-interface thread (post, don't send).
inline CountsChangedFn ClickCountedNotify = nullptr;
// Called on the user-interface thread once a new date has moved counts into
// "Last".
inline CountsChangedFn CountsRolledNotify = nullptr;
