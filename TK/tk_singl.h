// Process-wide objects: one registered instance per class.
#pragma once

#include "TK/tk_except.h"

// The file text by which internal errors of this header are reported.
#define TK_SINGL_FILE "..\\TK/tk_singl.h"

template <class T>
class tk_singleton {
public:
    tk_singleton()
    {
        if (slot_ != nullptr)
            throw tk_mail_assertion(TK_SINGL_FILE, 35);
        slot_ = this;
    }

    // Destructors of output devices may not throw, so an empty slot here (which the
    // private slot makes impossible) is only traced.
    virtual ~tk_singleton()
    {
        if (slot_ == nullptr)
            tk_mail_assertion(TK_SINGL_FILE, 46);
        slot_ = nullptr;
    }

    tk_singleton(const tk_singleton&) = delete;
    tk_singleton& operator=(const tk_singleton&) = delete;

    static T& instance()
    {
        if (slot_ == nullptr)
            throw tk_mail_assertion(TK_SINGL_FILE, 59);
        return *static_cast<T*>(slot_);
    }

    static T& get_instance()
    {
        if (slot_ == nullptr)
            throw tk_mail_assertion(TK_SINGL_FILE, 66);
        return *static_cast<T*>(slot_);
    }

    static bool exists() { return slot_ != nullptr; }

private:
    // The base subobject is stored; the cast to the whole T object is done when it is
    // handed out, once T is fully constructed.
    static inline tk_singleton* slot_ = nullptr;
};
