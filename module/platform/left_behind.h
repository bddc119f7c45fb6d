// Work left running at its deadline: a blocking call on a thread that nothing can end
// safely (Windows has no fork). Once there is some, the process must end as soon as
// its result is written, without tearing down what that work may still be using.
#pragma once

void NoteWorkLeftBehind();
bool WorkLeftBehind();
