// A seam: the place, a pointer to a table or a function, through which the
// framework reaches a few system calls whose failures are hard to cause for
// real. Tests put a stand-in there for the lifetime of an object of this kind.
#pragma once

template <class T> class ScopedSeam {
public:
    ScopedSeam(T& place, T standIn) : m_place(place), m_previous(place) { m_place = standIn; }
    ~ScopedSeam() { m_place = m_previous; }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
    T& m_place;
    T m_previous;
};
