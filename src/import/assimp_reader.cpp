#include "import/assimp_reader.h"

#include <assimp/anim.h>
#include <assimp/config.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "base/input_file.h"
#include "import/file_bytes.h"
#include "import/placement.h"

namespace warpkit {
namespace {

ImportOutcome refused(BilingualText reason) {
    return ImportOutcome{false, std::move(reason)};
}

// FBX and COLLADA: the library hands back a vertex per polygon corner.
bool corners_split(const std::string& path) {
    std::string extension;
    const size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && path.find('/', dot) == std::string::npos) {
        for (const char c : path.substr(dot + 1))
            extension += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension == "fbx" || extension == "dae" || extension == "zae") return true;
    std::string start(512, '\0');
    if (const InputFile input = InputFile::open(path); input.is_open()) {
        start.resize(std::fread(start.data(), 1, start.size(), input.get()));
    }
    return start.rfind("Kaydara FBX Binary", 0) == 0 || start.rfind("; FBX", 0) == 0 ||
           start.find("<COLLADA") != std::string::npos;
}

uint8_t colour_byte(float c) {
    return static_cast<uint8_t>(
        std::lround(std::clamp(std::isfinite(c) ? c : 0.0f, 0.0f, 1.0f) * 255.0f));
}

Vec3 vec(const aiVector3D& v) {
    return Vec3{v.x, v.y, v.z};
}

// A corner's position in the base and in every blend shape, compared by value (-0 equals 0).
struct CornerKey {
    std::vector<float> values;
    bool operator==(const CornerKey& other) const { return values == other.values; }
};

struct CornerHash {
    size_t operator()(const CornerKey& key) const {
        size_t hash = 1469598103934665603ull;
        for (const float value : key.values) {
            const float normal = value == 0.0f ? 0.0f : value;
            uint32_t bits;
            std::memcpy(&bits, &normal, sizeof bits);
            hash = (hash ^ bits) * 1099511628211ull;
        }
        return hash;
    }
};

// Where one mesh of the scene came from: the node that shows it and the library's meshes it
// was made of, which the library's animations name.
struct MeshOrigin {
    std::string node;
    std::vector<unsigned> parts;
};

class SceneBuilder {
public:
    SceneBuilder(const aiScene& source, const ImportLimits& limits, bool join, std::string stem,
                 ImportedScene& scene)
        : source_(source), limits_(limits), join_(join), stem_(std::move(stem)), scene_(scene) {}

    BilingualText build() {
        for (unsigned m = 0; m < source_.mNumMaterials; ++m) {
            aiColor4D colour(0.8f, 0.8f, 0.8f, 1.0f);
            if (source_.mMaterials[m]->Get(AI_MATKEY_COLOR_DIFFUSE, colour) != AI_SUCCESS) {
                source_.mMaterials[m]->Get(AI_MATKEY_BASE_COLOR, colour);
            }
            scene_.palette.red.push_back(colour_byte(colour.r));
            scene_.palette.green.push_back(colour_byte(colour.g));
            scene_.palette.blue.push_back(colour_byte(colour.b));
        }
        std::vector<bool> used(source_.mNumMeshes, false);
        BilingualText problem = visit(source_.mRootNode, Placement{}, used, 0);
        // meshes no node holds still belong to the file
        for (unsigned m = 0; problem.empty() && m < source_.mNumMeshes; ++m) {
            if (!used[m]) problem = add_mesh(source_.mMeshes[m]->mName.C_Str(), {m}, Placement{});
        }
        return problem;
    }

    // One per mesh of the scene, in its order.
    const std::vector<MeshOrigin>& origins() const { return origins_; }

private:
    static Placement placement_of(const aiMatrix4x4& m) {
        const double rows[12] = {m.a1, m.a2, m.a3, m.a4, m.b1, m.b2,
                                 m.b3, m.b4, m.c1, m.c2, m.c3, m.c4};
        return placement_from_rows(rows);
    }

    BilingualText visit(const aiNode* node, const Placement& parent, std::vector<bool>& used,
                        int depth) {
        if (!node) return {};
        // the library's own checks keep the tree finite; this keeps the stack so too
        if (depth > 1000) {
            return {"ノードの木が 1000 段より深くなっています",
                    "the node tree is deeper than 1000 levels"};
        }
        const Placement here = parent.after(placement_of(node->mTransformation));
        if (node->mNumMeshes > 0) {
            std::vector<unsigned> meshes(node->mMeshes, node->mMeshes + node->mNumMeshes);
            for (const unsigned m : meshes) {
                if (m >= source_.mNumMeshes) {
                    return format_both({"ノードがメッシュ %u を指定していますが、メッシュは %u 個"
                                        "です",
                                        "a node names mesh %u of %u"},
                                       m, source_.mNumMeshes);
                }
                used[m] = true;
            }
            std::string name = node->mName.C_Str();
            if (name.empty()) name = source_.mMeshes[meshes[0]]->mName.C_Str();
            BilingualText problem = add_mesh(name, meshes, here);
            if (!problem.empty()) return problem;
        }
        for (unsigned c = 0; c < node->mNumChildren; ++c) {
            BilingualText problem = visit(node->mChildren[c], here, used, depth + 1);
            if (!problem.empty()) return problem;
        }
        return {};
    }

    BilingualText charge(uint64_t count) {
        if (count > static_cast<uint64_t>(limits_.max_positions - spent_)) {
            return format_both({"ファイルの頂点位置が読み込める %lld 個を超えています",
                                "the file holds more than the %lld vertex positions an import "
                                "reads"},
                               static_cast<long long>(limits_.max_positions));
        }
        spent_ += static_cast<int64_t>(count);
        return {};
    }

    // One mesh of the given library meshes: their vertices one after the other, the blend
    // shapes matched by name across them, then joined when the library split the corners.
    BilingualText add_mesh(std::string name, const std::vector<unsigned>& parts,
                           const Placement& placement) {
        ImportedMesh mesh;
        mesh.name = name.empty() ? stem_ : name;

        // blend shape names in first-appearance order
        std::vector<std::string> shapes;
        for (const unsigned m : parts) {
            const aiMesh* part = source_.mMeshes[m];
            for (unsigned a = 0; a < part->mNumAnimMeshes; ++a) {
                const std::string shape = part->mAnimMeshes[a]->mName.C_Str();
                if (std::find(shapes.begin(), shapes.end(), shape) == shapes.end())
                    shapes.push_back(shape);
            }
        }
        uint64_t vertex_total = 0;
        for (const unsigned m : parts) vertex_total += source_.mMeshes[m]->mNumVertices;
        BilingualText problem = charge(vertex_total * (shapes.size() + 1));
        if (!problem.empty()) return problem;

        std::vector<std::vector<Vec3>> moved(shapes.size());
        for (const unsigned m : parts) {
            const aiMesh* part = source_.mMeshes[m];
            const auto first = static_cast<int64_t>(mesh.vertices.size());
            for (unsigned v = 0; v < part->mNumVertices; ++v)
                mesh.vertices.push_back(vec(part->mVertices[v]));
            for (size_t s = 0; s < shapes.size(); ++s) {
                const aiAnimMesh* shape = nullptr;
                for (unsigned a = 0; a < part->mNumAnimMeshes && !shape; ++a) {
                    if (shapes[s] == part->mAnimMeshes[a]->mName.C_Str())
                        shape = part->mAnimMeshes[a];
                }
                for (unsigned v = 0; v < part->mNumVertices; ++v) {
                    const bool has = shape && shape->mVertices && v < shape->mNumVertices;
                    moved[s].push_back(has ? vec(shape->mVertices[v]) : vec(part->mVertices[v]));
                }
            }
            // polygons fanned from their first corner; points and lines give no triangle
            const auto colour = static_cast<int32_t>(part->mMaterialIndex);
            for (unsigned f = 0; f < part->mNumFaces; ++f) {
                const aiFace& face = part->mFaces[f];
                for (unsigned c = 0; c < face.mNumIndices; ++c) {
                    if (face.mIndices[c] >= part->mNumVertices) {
                        return format_both({"メッシュ%sの面が頂点 %u を使っていますが、頂点は %u "
                                            "個です",
                                            "a face of mesh %s uses vertex %u of %u"},
                                           quoted_name(part->mName.C_Str()), face.mIndices[c],
                                           part->mNumVertices);
                    }
                }
                const auto at = [&](unsigned c) {
                    return static_cast<int32_t>(first + face.mIndices[c]);
                };
                for (unsigned c = 1; c + 1 < face.mNumIndices; ++c) {
                    mesh.triangles.push_back(make_triangle(at(0), at(c), at(c + 1), colour));
                }
            }
        }
        place(placement, mesh.vertices);
        for (std::vector<Vec3>& shape : moved) place(placement, shape);
        if (join_) scene_.joined_corners += join_corners(mesh, moved);
        for (size_t s = 0; s < shapes.size(); ++s)
            mesh.targets.push_back(MorphShape{shapes[s], std::move(moved[s])});
        scene_.meshes.push_back(std::move(mesh));
        origins_.push_back(MeshOrigin{std::move(name), parts});
        return {};
    }

    // Joins the corners equal in the base and every shape, keeping the first of each in order;
    // returns how many corners were joined into one before them.
    static int64_t join_corners(ImportedMesh& mesh, std::vector<std::vector<Vec3>>& shapes) {
        std::unordered_map<CornerKey, int32_t, CornerHash> first_of;
        std::vector<int32_t> map(mesh.vertices.size());
        std::vector<Vec3> joined;
        std::vector<std::vector<Vec3>> joined_shapes(shapes.size());
        CornerKey key;
        for (size_t v = 0; v < mesh.vertices.size(); ++v) {
            key.values.clear();
            const auto push = [&](const Vec3& p) {
                for (const float c : {p.x, p.y, p.z}) key.values.push_back(c == 0.0f ? 0.0f : c);
            };
            push(mesh.vertices[v]);
            for (const std::vector<Vec3>& shape : shapes) push(shape[v]);
            const auto [it, inserted] = first_of.emplace(key, static_cast<int32_t>(joined.size()));
            if (inserted) {
                joined.push_back(mesh.vertices[v]);
                for (size_t s = 0; s < shapes.size(); ++s) joined_shapes[s].push_back(shapes[s][v]);
            }
            map[v] = it->second;
        }
        for (Triangle& t : mesh.triangles) {
            for (int32_t& corner : t.v) corner = map[static_cast<size_t>(corner)];
        }
        const auto count = static_cast<int64_t>(mesh.vertices.size() - joined.size());
        mesh.vertices = std::move(joined);
        shapes = std::move(joined_shapes);
        return count;
    }

    const aiScene& source_;
    const ImportLimits& limits_;
    bool join_;
    std::string stem_;
    ImportedScene& scene_;
    int64_t spent_ = 0;
    std::vector<MeshOrigin> origins_;
};

// A target's keys, (seconds, weight as a fraction), in time order.
using TargetKeys = std::vector<std::pair<double, double>>;

// Linear between the keys, held before the first and after the last; 0 without keys.
double weight_at(const TargetKeys& keys, double seconds) {
    if (keys.empty()) return 0.0;
    if (seconds <= keys.front().first) return keys.front().second;
    if (seconds >= keys.back().first) return keys.back().second;
    const auto after = std::upper_bound(
        keys.begin(), keys.end(), seconds,
        [](double t, const std::pair<double, double>& key) { return t < key.first; });
    const auto& [t1, w1] = *after;
    const auto& [t0, w0] = *(after - 1);
    return w0 + (w1 - w0) * (seconds - t0) / (t1 - t0);
}

// Whether a morph channel of the library names the mesh: FBX names the node and its geometry
// ("Face*0"), COLLADA the node; others the library's mesh.
bool drives(const std::string& channel, const MeshOrigin& origin, const aiScene& source) {
    std::string node = channel;
    const size_t star = node.rfind('*');
    if (star != std::string::npos && star + 1 < node.size() &&
        node.find_first_not_of("0123456789", star + 1) == std::string::npos) {
        node.resize(star);
    }
    if (channel == origin.node || node == origin.node) return true;
    return std::any_of(origin.parts.begin(), origin.parts.end(), [&](unsigned part) {
        return channel == source.mMeshes[part]->mName.C_Str();
    });
}

// The target a channel's value (an index into a library mesh's anim meshes) moves, found by the
// anim mesh's name, as the targets were matched across the parts; the target count when none.
size_t target_of(unsigned value, const MeshOrigin& origin, const ImportedMesh& mesh,
                 const aiScene& source) {
    for (const unsigned part : origin.parts) {
        const aiMesh* library_mesh = source.mMeshes[part];
        if (value >= library_mesh->mNumAnimMeshes || !library_mesh->mAnimMeshes[value]) continue;
        const std::string name = library_mesh->mAnimMeshes[value]->mName.C_Str();
        for (size_t t = 0; t < mesh.targets.size(); ++t) {
            if (mesh.targets[t].name == name) return t;
        }
    }
    return mesh.targets.size();
}

// The targets' keys as one weights animation: every target's weight at every time any target
// has a key. Exact for linear keys, as each target's own keys are among those times.
WeightsAnimation merged(std::vector<TargetKeys>& tracks) {
    std::vector<double> times;
    for (TargetKeys& keys : tracks) {
        // in time order, the later of two keys at one time kept
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        TargetKeys kept;
        for (const auto& key : keys) {
            if (!kept.empty() && kept.back().first == key.first) kept.pop_back();
            kept.push_back(key);
        }
        keys = std::move(kept);
        for (const auto& key : keys) times.push_back(key.first);
    }
    std::sort(times.begin(), times.end());
    WeightsAnimation out;
    out.targets = tracks.size();
    std::vector<double> at;
    for (const double t : times) {
        // times that meet as floats are one key
        const auto seconds = static_cast<float>(t);
        if (!out.times.empty() && !(seconds > out.times.back())) continue;
        out.times.push_back(seconds);
        at.push_back(t);
    }
    for (const double t : at) {
        for (const TargetKeys& keys : tracks)
            out.values.push_back(static_cast<float>(weight_at(keys, t)));
    }
    return out;
}

// The library's morph animations as weights animations of the scene's meshes: one per
// animation and mesh it drives, in the library's order. A key time is ticks over the
// animation's ticks per second (25 where it gives none, as the library's own viewer reads it).
// FBX keys only the blend shapes that have a key at a time, COLLADA every target. More weights
// than `max_values` in all is the problem, before they are made.
std::vector<WeightsAnimation> weights_animations(const aiScene& source,
                                                 const std::vector<MeshOrigin>& origins,
                                                 const ImportedScene& scene, int64_t max_values,
                                                 BilingualText& problem) {
    std::vector<WeightsAnimation> animations;
    int64_t values = 0;
    for (unsigned a = 0; a < source.mNumAnimations; ++a) {
        const aiAnimation* animation = source.mAnimations[a];
        if (!animation) continue;
        const double ticks = animation->mTicksPerSecond > 0.0 ? animation->mTicksPerSecond : 25.0;
        for (size_t m = 0; m < origins.size(); ++m) {
            const ImportedMesh& mesh = scene.meshes[m];
            std::vector<TargetKeys> tracks(mesh.targets.size());
            int64_t keys = 0;
            for (unsigned c = 0; c < animation->mNumMorphMeshChannels; ++c) {
                const aiMeshMorphAnim* channel = animation->mMorphMeshChannels[c];
                if (!channel || !drives(channel->mName.C_Str(), origins[m], source)) continue;
                for (unsigned k = 0; k < channel->mNumKeys; ++k) {
                    const aiMeshMorphKey& key = channel->mKeys[k];
                    const double seconds = key.mTime / ticks;
                    if (!std::isfinite(seconds)) continue;
                    for (unsigned i = 0; i < key.mNumValuesAndWeights; ++i) {
                        const size_t target = target_of(key.mValues[i], origins[m], mesh, source);
                        if (target == tracks.size() || !std::isfinite(key.mWeights[i])) continue;
                        tracks[target].emplace_back(seconds, key.mWeights[i]);
                        ++keys;
                    }
                }
            }
            if (keys == 0) continue;
            // the times are at most the keys, for every target
            values += keys * static_cast<int64_t>(tracks.size());
            if (values > max_values) {
                problem = format_both(
                    {"アニメーション%sのウェイトが読み込める %lld 個を超えています",
                     "the animation %s holds more than the %lld weights an import reads"},
                    quoted_name(animation->mName.C_Str()), static_cast<long long>(max_values));
                return {};
            }
            WeightsAnimation weights = merged(tracks);
            weights.mesh = m;
            weights.clip = a;
            weights.name = animation->mName.C_Str();
            animations.push_back(std::move(weights));
        }
    }
    return animations;
}

}  // namespace

ImportOutcome read_with_assimp(const std::string& path, const ImportLimits& limits,
                               ImportedScene& scene) {
    scene = ImportedScene{};
    // The library reads the file itself (and those it names); it must be one it may read.
    BilingualText problem = regular_file_problem(path, limits.max_file_bytes);
    if (!problem.empty()) return refused(std::move(problem));
    Assimp::Importer importer;
    // Lengths in metres: the library scales by the file's unit (FBX: UnitScaleFactor, in
    // centimetres) times this factor; COLLADA's unit comes in the root node's transform.
    importer.SetPropertyFloat(AI_CONFIG_GLOBAL_SCALE_FACTOR_KEY, 1.0f);
    // A file without meshes would otherwise come back with a mesh the library makes of its
    // node tree, nothing the artist drew.
    importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
    const aiScene* source =
        importer.ReadFile(path, aiProcess_ValidateDataStructure | aiProcess_GlobalScale);
    if (!source) {
        std::string words = importer.GetErrorString();
        while (!words.empty() && (words.back() == '\n' || words.back() == '\r')) words.pop_back();
        if (words.empty()) {
            return refused(
                {"読み込みライブラリで読めませんでした", "the importer library could not read it"});
        }
        return refused(
            {format_text("読み込みライブラリで読めませんでした：%s", words.c_str()), words});
    }
    SceneBuilder builder(*source, limits, corners_split(path), stem_part(path), scene);
    problem = builder.build();
    std::vector<WeightsAnimation> animations;
    if (problem.empty()) {
        // a weight costs a third of a position
        animations = weights_animations(*source, builder.origins(), scene, limits.max_positions * 3,
                                        problem);
    }
    scene.animations = std::move(animations);
    if (!problem.empty()) {
        scene = ImportedScene{};
        return refused(std::move(problem));
    }
    return ImportOutcome{true, {}};
}

}  // namespace warpkit
