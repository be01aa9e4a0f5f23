#include "format/EncodedBlock.h"

EncodedBlock::EncodedBlock(std::vector<std::uint8_t> bytes) : m_own(std::move(bytes)) {
    m_nSize = m_own.size();
    if (!m_own.empty()) m_pieces.push_back({nullptr, 0, m_own.size()});
}

void EncodedBlock::Append(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    if (!m_pieces.empty() && !m_pieces.back().borrowed)
        m_pieces.back().size += bytes.size();
    else
        m_pieces.push_back({nullptr, m_own.size(), bytes.size()});
    m_own.insert(m_own.end(), bytes.begin(), bytes.end());
    m_nSize += bytes.size();
}

void EncodedBlock::Borrow(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    m_pieces.push_back({bytes.data(), 0, bytes.size()});
    m_nSize += bytes.size();
}

std::vector<std::span<const std::uint8_t>> EncodedBlock::Pieces() const {
    std::vector<std::span<const std::uint8_t>> out;
    out.reserve(m_pieces.size());
    for (const Piece& p : m_pieces)
        out.emplace_back(p.borrowed ? p.borrowed : m_own.data() + p.offset, p.size);
    return out;
}

std::vector<std::uint8_t> EncodedBlock::ToVector() const {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(m_nSize));
    for (auto piece : Pieces()) out.insert(out.end(), piece.begin(), piece.end());
    return out;
}
