#pragma once

namespace tessaline::bench {

// Scroll positions that go down a page a few wheel notches at a time and
// back up once they reach `range`, as a reader goes over a long page.
class ScrollSweep
{
public:
    explicit ScrollSweep(int range, int step = 120) : m_range(range), m_step(step) {}

    int next()
    {
        if (m_value + m_direction * m_step > m_range || m_value + m_direction * m_step < 0)
            m_direction = -m_direction;
        m_value += m_direction * m_step;
        return m_value;
    }

private:
    int m_range;
    int m_step;
    int m_value = 0;
    int m_direction = 1;
};

} // namespace tessaline::bench
