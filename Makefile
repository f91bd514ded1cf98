# The two commands a newcomer needs: `make demo` and `make test`.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
# dpkg-dev: dpkg-buildflags gives an optimised build Debian's hardening flags.
# libpq-dev: the results server's setting is read by libpq's own parser;
# postgresql: the tests start a results server of their own; poppler-utils:
# pdfinfo and pdftotext read the printed reports back; ser2net: the tests
# put a serial device server on the network in front of the simulated unit.
DEBS = qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6sql6-sqlite libqt6sql6-psql libpq-dev postgresql poppler-utils ser2net cmake g++ make xvfb xauth sqlite3 libgl-dev dpkg-dev
SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps build test demo bench screenshots format asan asan-build asan-test fuzz fuzz-build fuzz-run lint package validate clean

deps:
	@missing=""; for p in $(DEBS); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# The tests wait on the unit's real protocol waits far more than they compute,
# so sixteen run side by side even on two cores.
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 16

demo: build
	@scripts/demo.sh $(BUILD)

bench: build
	@scripts/bench.sh $(BUILD)

screenshots: build
	@scripts/screenshots.sh $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

asan: asan-build
	@$(MAKE) --no-print-directory asan-test

# Built apart from its tests, so that CI builds it while other tests run. Line
# tables (-g1) are all the sanitizers' reports need, and compile faster; the
# benchmarks never run under the sanitizers.
asan-build: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DKTV_SANITIZE=ON -DKTV_BENCH=OFF >/dev/null
	cmake --build build-asan -j $(JOBS)

asan-test:
	cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 7

FUZZ_SECONDS ?= 60
fuzz: fuzz-build
	@$(MAKE) --no-print-directory fuzz-run

# A fuzz target uses one core: as many run at once as there are cores.
fuzz-run:
	@scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS) $(JOBS)

# Only the fuzz targets and the library they link, not the programs.
fuzz-build:
	@$(MAKE) --no-print-directory deps DEBS="$(DEBS) clang libclang-rt-14-dev"
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKTV_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets

lint: build
	@$(MAKE) --no-print-directory deps DEBS="$(DEBS) clang-tidy cppcheck"
	@scripts/lint.sh $(BUILD)

# The packaged files carry the time of the last commit (the release date
# without git), not the build's clock, so the same sources give the same .deb.
ifndef SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH := $(shell git log -1 --format=%ct 2>/dev/null || date -u -d "$$(sed -n 's/^set(KTV_RELEASE_DATE \(.*\))$$/\1/p' CMakeLists.txt)" +%s)
endif
export SOURCE_DATE_EPOCH

package: build
	@$(MAKE) --no-print-directory deps DEBS="$(DEBS) file"
	rm -f $(BUILD)/ktraveld_*.deb
	cd $(BUILD) && cpack -G DEB

validate: package
	@$(MAKE) --no-print-directory deps DEBS="$(DEBS) desktop-file-utils appstream lintian"
	@scripts/validate.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-asan build-fuzz
