#pragma once
// The About dialog's texts, without windows.
