// What every top-level window object shares: the hand-over of the object to its window at
// creation, the object pointer in the window's GWLP_USERDATA from WM_NCCREATE to WM_NCDESTROY,
// and the dispatch of a message through the object's table of handlers. Interface thread only.
//
// A window class T declares `HWND window_`, a table `static const WindowHandler<T> HANDLERS[]`
// and befriends window_object_create and window_object_of (both reach its private members).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>

namespace kv {

// One entry of a window object's message table.
template <typename T>
struct WindowHandler {
    UINT message;
    LRESULT (T::*handler)(WPARAM, LPARAM);
};

// What CreateWindowExW hands to WM_NCCREATE: the object, which the window then owns.
template <typename T>
struct WindowCreation {
    T* object;
    bool taken = false;
};

// Creates a window of class_name for object (the other arguments as for CreateWindowExW):
// the window owns the object from WM_NCCREATE on and deletes it at WM_NCDESTROY; when no
// window takes it, the object is deleted here. The handle, null on failure.
template <typename T>
HWND window_object_create(std::unique_ptr<T> object, DWORD ex_style, const wchar_t* class_name,
                          const wchar_t* title, DWORD style, int x, int y, int width, int height,
                          HWND owner, HINSTANCE instance) {
    WindowCreation<T> creation{object.get()};
    const HWND window = CreateWindowExW(ex_style, class_name, title, style, x, y, width, height,
                                        owner, nullptr, instance, &creation);
    if (creation.taken) object.release();  // the window owns it, or has deleted it already
    return window;
}

// The object of window while message is handled: attached at WM_NCCREATE, null before it
// (WM_GETMINMAXINFO comes first) and from WM_NCDESTROY on, where the object is deleted.
template <typename T>
T* window_object_of(HWND window, UINT message, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* creation = static_cast<WindowCreation<T>*>(
            reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams);
        creation->taken = true;
        creation->object->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->object));
    }
    auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete self;
        return nullptr;
    }
    return self;
}

// Runs the handler of message from T's table; DefWindowProcW when it has none.
template <typename T>
LRESULT window_object_dispatch(T& self, UINT message, WPARAM wparam, LPARAM lparam) {
    for (const WindowHandler<T>& entry : T::HANDLERS) {
        if (entry.message == message) return (self.*entry.handler)(wparam, lparam);
    }
    return DefWindowProcW(self.window_, message, wparam, lparam);
}

}  // namespace kv
