# Front door: `make run` starts the main program (Lusidor once it is built, Velmora until then), `make test`
# runs every test. Both install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# Repeated builds reuse their objects when ccache is there.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

.PHONY: deps configure build run run-velmora test bench clean

deps:
	./scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(LAUNCHER) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Lusidor runs on the simulated board, with a default settings file and an empty picture folder beside it
# when they are missing (an existing one is never replaced). The settings file made here names Velmora's
# folder as the common database, so that what "Добавить в общую БД" adds shows in `make run-velmora`.
run: build
	[ -e $(BUILD)/lusidor/Lusidor.ini ] || { cp lusidor/Lusidor.ini $(BUILD)/lusidor/Lusidor.ini && \
		printf '\r\n[DataBase]\r\nFolder=../velmora\r\n' >>$(BUILD)/lusidor/Lusidor.ini; }
	mkdir -p $(BUILD)/lusidor/IMAGES
	LUSIDOR_BOARD=sim $(BUILD)/lusidor/lusidor

# Velmora keeps its table "MBase.dat" and its "pictures/" folder beside the program: $(BUILD)/velmora/.
run-velmora: build
	exec $(BUILD)/velmora/velmora

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -f "$$b" ] && [ -x "$$b" ] && "$$b"; done; true

clean:
	rm -rf $(BUILD)
